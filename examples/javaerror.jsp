<html>
<body>
<% for (int i = 0; i < 2; i++) { %>
<p>Row <%= i %></p>
<% if (i > 0) { %>
<p>not the first</p>
<% } %>
</body>
</html>
