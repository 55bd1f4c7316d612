<%@ page contentType="text/html; charset=UTF-8" %>
<p>The basket holds <%= session.getAttribute("basket") %></p>
<p>It belongs to <%= session.getAttribute("owner") %></p>
