<%@ page contentType="text/html" import="java.util.List, java.util.ArrayList" %>
<%-- A counted loop with expressions inside it --%>
<html>
<body>
<h1>Squares for <%= request.getParameter("user") %></h1>
<ul>
<% for (int i = 1; i <= 3; i++) { %>
  <li><%= i %> squared is <%= i * i %></li>
<% } %>
</ul>
<p>Today is <%= new java.util.Date() %></p>
</body>
</html>
