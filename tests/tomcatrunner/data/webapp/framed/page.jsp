<h1><%= title %> page</h1>
<% for (int i = 1; i <= 2; ++i) { %>
<p>Paragraph <%= i %></p>
<% } %>
